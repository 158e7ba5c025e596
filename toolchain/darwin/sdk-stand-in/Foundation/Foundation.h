// Stand-in for <Foundation/Foundation.h>: the classes, methods and functions the helper uses.
#pragma once

#import <CoreFoundation/CoreFoundation.h>
#import <objc/NSObject.h>
#include <os/availability.h>

#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define NS_RETURNS_INNER_POINTER __attribute__((objc_returns_inner_pointer))
#if defined(__cplusplus)
#define FOUNDATION_EXPORT extern "C"
#else
#define FOUNDATION_EXPORT extern
#endif

NS_ASSUME_NONNULL_BEGIN

// NSZone.h
typedef struct _NSZone NSZone;

@class NSData;

@protocol NSCopying
- (id)copyWithZone:(nullable NSZone*)zone;
@end

// NSString.h
typedef NSUInteger NSStringEncoding;
enum {
  NSISOLatin1StringEncoding = 5,
  NSUTF8StringEncoding = 4,
};

@interface NSString : NSObject <NSCopying>
- (nullable instancetype)initWithBytes:(const void*)bytes
                                length:(NSUInteger)len
                              encoding:(NSStringEncoding)encoding;
- (nullable NSData*)dataUsingEncoding:(NSStringEncoding)encoding allowLossyConversion:(BOOL)lossy;
@end

// NSData.h
@interface NSData : NSObject <NSCopying>
@property(readonly) NSUInteger length;
@property(readonly) const void* bytes NS_RETURNS_INNER_POINTER;
+ (instancetype)dataWithBytes:(nullable const void*)bytes length:(NSUInteger)length;
@end

// NSValue.h
@interface NSValue : NSObject <NSCopying>
@property(readonly) const char* objCType NS_RETURNS_INNER_POINTER;
- (void)getValue:(void*)value size:(NSUInteger)size;
@end

// NSDictionary.h: what a dictionary literal needs.
@interface NSDictionary<__covariant KeyType, __covariant ObjectType> : NSObject <NSCopying>
+ (instancetype)dictionaryWithObjects:(const ObjectType _Nonnull[_Nullable])objects
                              forKeys:(const KeyType<NSCopying> _Nonnull[_Nullable])keys
                                count:(NSUInteger)cnt;
@end

// NSKeyValueCoding.h
@interface NSObject (NSKeyValueCoding)
- (nullable id)valueForKey:(NSString*)key;
@end

// NSObjCRuntime.h
FOUNDATION_EXPORT SEL NSSelectorFromString(NSString* aSelectorName);
FOUNDATION_EXPORT const char* NSGetSizeAndAlignment(const char* typePtr,
                                                    NSUInteger* _Nullable sizep,
                                                    NSUInteger* _Nullable alignp);

// NSXPCConnection.h
@class NSXPCConnection, NSXPCListener;

@interface NSXPCInterface : NSObject
+ (NSXPCInterface*)interfaceWithProtocol:(Protocol*)protocol;
@end

@protocol NSXPCListenerDelegate <NSObject>
@optional
- (BOOL)listener:(NSXPCListener*)listener shouldAcceptNewConnection:(NSXPCConnection*)newConnection;
@end

@interface NSXPCListener : NSObject
- (instancetype)initWithMachServiceName:(NSString*)name;
@property(nullable, weak) id<NSXPCListenerDelegate> delegate;
- (void)resume;
@end

@interface NSXPCConnection : NSObject
@property(nullable, retain) NSXPCInterface* exportedInterface;
@property(nullable, retain) id exportedObject;
@property(nullable, copy) void (^invalidationHandler)(void);
- (void)resume;
- (void)setCodeSigningRequirement:(NSString*)requirement API_AVAILABLE(macos(13.0))
                                      API_UNAVAILABLE(ios, tvos, watchos);
@end

NS_ASSUME_NONNULL_END
